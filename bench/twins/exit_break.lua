-- Twin of exit_break.ixo: a million inner loops left by break.
local n = 0
for i = 1, 1000000 do
  for _ = 1, 2 do
    n = n + 1
    break
  end
end
print(n)
