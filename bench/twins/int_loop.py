# Twin of int_loop.ixo: a while loop of 10 million iterations.
i = 0
n = 0
while i < 10000000:
    n = n + 3
    i = i + 1
print(n)
