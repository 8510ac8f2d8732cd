# Twin of map_lookup.ixo: a dict of 300,000 string keys, 600,000 look-ups.
keys = []
for i in range(1, 300001):
    keys.append("k" + str(i))
m = {}
i = 0
for k in keys:
    i = i + 1
    m[k] = i % 1000
n = 0
for _ in range(2):
    for k in keys:
        n = n + m[k]
print(n)
print(len(m))
