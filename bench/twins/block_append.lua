-- Twin of block_append.ixo: two million appends to a table, then a summing loop.
local b = {}
for i = 1, 2000000 do b[#b + 1] = i % 100 end
local n = 0
for _, x in ipairs(b) do n = n + x end
print(n)
