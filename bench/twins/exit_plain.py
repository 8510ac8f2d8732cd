# Twin of exit_plain.ixo: a million plain calls.
def plain(x):
    return x
n = 0
for i in range(1, 1000001):
    n = n + plain(1)
print(n)
