# Twin of sort_integers.ixo: a million generated integers sorted in place.
b = []
x = 1
for i in range(1, 1000001):
    x = (x * 75 + 74) % 65537
    b.append(x)
b.sort()
print(b[0], b[499999], b[-1])
n = 0
for i in range(1, 1001):
    n = n + b[i * 997 - 1]
print(n)
