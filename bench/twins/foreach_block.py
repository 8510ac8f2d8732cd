# Twin of foreach_block.ixo: a loop over a list of a million integers.
b = []
for i in range(1, 1000001):
    b.append(i % 100)
n = 0
for x in b:
    n = n + x
print(n)
