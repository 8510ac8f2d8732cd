-- Twin of mandelbrot.ixo: the same grid, iterations and arithmetic.
local size = 200
local limit = 100
local inside = 0
for y = 1, size do
  local ci = (2.0 * y / size) - 1.0
  for x = 1, size do
    local cr = (2.5 * x / size) - 2.0
    local zr, zi, i = 0.0, 0.0, 0
    while limit > i and 4.0 >= zr * zr + zi * zi do
      local t = zr * zr - zi * zi + cr
      zi = 2.0 * zr * zi + ci
      zr = t
      i = i + 1
    end
    if i == limit then inside = inside + 1 end
  end
end
print(inside)
