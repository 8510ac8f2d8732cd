-- Twin of either_case.ixo: if/else and an if/elseif chain in a loop.
local n = 0
for i = 1, 1000000 do
  if i % 2 == 1 then n = n + 1 else n = n + 2 end
  if i < 300000 then n = n + 1
  elseif i < 600000 then n = n + 2
  else n = n + 3 end
end
print(n)
