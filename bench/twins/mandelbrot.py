# Twin of mandelbrot.ixo: the same grid, iterations and arithmetic.
size = 200
limit = 100
inside = 0
for y in range(1, size + 1):
    ci = (2.0 * y / size) - 1.0
    for x in range(1, size + 1):
        cr = (2.5 * x / size) - 2.0
        zr = 0.0
        zi = 0.0
        i = 0
        while limit > i and 4.0 >= zr * zr + zi * zi:
            t = zr * zr - zi * zi + cr
            zi = 2.0 * zr * zi + ci
            zr = t
            i = i + 1
        if i == limit:
            inside = inside + 1
print(inside)
