-- Twin of exit_return.ixo: return from inside a loop of the function.
local function early(x)
  for _ = 1, 2 do return x end
  return 0
end
local n = 0
for i = 1, 1000000 do n = n + early(1) end
print(n)
