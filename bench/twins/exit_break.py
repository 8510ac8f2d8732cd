# Twin of exit_break.ixo: a million inner loops left by break.
n = 0
for i in range(1, 1000001):
    for _ in range(2):
        n = n + 1
        break
print(n)
