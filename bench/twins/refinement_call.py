# Twin of refinement_call.ixo: a small function with an optional flag.
def twice(a, more=False):
    return a + a if more else a
n = 0
for i in range(1, 1500001):
    n = n + twice(3, more=True)
    n = n + twice(1)
print(n)
