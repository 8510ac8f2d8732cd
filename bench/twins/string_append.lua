-- Twin of string_append.ixo: two million appends, then find. Lua strings
-- are immutable: the appends go to a buffer table, joined once.
local parts = {}
for i = 1, 2000000 do parts[#parts + 1] = tostring(i) end
local s = table.concat(parts)
print((string.find(s, "1999999", 1, true)))
print(#s)
