# Twin of exit_return.ixo: return from inside a loop of the function.
def early(x):
    for _ in range(2):
        return x
    return 0
n = 0
for i in range(1, 1000001):
    n = n + early(1)
print(n)
