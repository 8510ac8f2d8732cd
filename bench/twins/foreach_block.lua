-- Twin of foreach_block.ixo: a loop over a table of a million integers.
local b = {}
for i = 1, 1000000 do b[#b + 1] = i % 100 end
local n = 0
for _, x in ipairs(b) do n = n + x end
print(n)
