# Twin of function_locals.ixo: a function with three locals.
def f(x):
    a = x + 1
    b = a * 2
    c = b - a
    return c
n = 0
for i in range(1, 1000001):
    n = n + f(1)
print(n)
