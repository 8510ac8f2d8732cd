-- Twin of int_loop.ixo: a while loop of 10 million iterations.
local i = 0
local n = 0
while i < 10000000 do
  n = n + 3
  i = i + 1
end
print(n)
