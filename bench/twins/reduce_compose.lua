-- Twin of reduce_compose.ixo: small tables built from expressions in a loop.
local a, b, n = 1, 2, 0
for i = 1, 200000 do
  local r = {a + i, b * 2, i}
  local c = {"x", i, "y", a + b}
  n = n + #r + #c + r[2]
end
print(n)
