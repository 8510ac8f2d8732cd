# Twin of either_case.ixo: if/else and an if/elif chain in a loop.
n = 0
for i in range(1, 1000001):
    if i % 2 == 1:
        n = n + 1
    else:
        n = n + 2
    if i < 300000:
        n = n + 1
    elif i < 600000:
        n = n + 2
    else:
        n = n + 3
print(n)
