-- Twin of map_lookup.ixo: a table of 300,000 string keys, 600,000 look-ups.
local keys = {}
for i = 1, 300000 do keys[#keys + 1] = "k" .. tostring(i) end
local m = {}
local count = 0
for i, k in ipairs(keys) do
  m[k] = i % 1000
  count = count + 1
end
local n = 0
for _ = 1, 2 do
  for _, k in ipairs(keys) do n = n + m[k] end
end
print(n)
print(count)
