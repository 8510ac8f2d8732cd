# Twin of block_append.ixo: two million appends to a list, then a summing loop.
b = []
for i in range(1, 2000001):
    b.append(i % 100)
n = 0
for x in b:
    n = n + x
print(n)
