# Twin of reduce_compose.ixo: small lists built from expressions in a loop.
a = 1
b = 2
n = 0
for i in range(1, 200001):
    r = [a + i, b * 2, i]
    c = ["x", i, "y", a + b]
    n = n + len(r) + len(c) + r[1]
print(n)
