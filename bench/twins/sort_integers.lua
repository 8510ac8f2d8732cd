-- Twin of sort_integers.ixo: a million generated integers sorted in place.
local b = {}
local x = 1
for i = 1, 1000000 do
  x = (x * 75 + 74) % 65537
  b[#b + 1] = x
end
table.sort(b)
print(b[1] .. " " .. b[500000] .. " " .. b[#b])
local n = 0
for i = 1, 1000 do n = n + b[i * 997] end
print(n)
