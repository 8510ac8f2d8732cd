-- Twin of refinement_call.ixo: a small function with an optional flag.
local function twice(a, more)
  if more then return a + a else return a end
end
local n = 0
for i = 1, 1500000 do
  n = n + twice(3, true)
  n = n + twice(1)
end
print(n)
