-- Twin of function_locals.ixo: a function with three locals.
local function f(x)
  local a = x + 1
  local b = a * 2
  local c = b - a
  return c
end
local n = 0
for i = 1, 1000000 do n = n + f(1) end
print(n)
