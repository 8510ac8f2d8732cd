-- Twin of exit_plain.ixo: a million plain calls.
local function plain(x) return x end
local n = 0
for i = 1, 1000000 do n = n + plain(1) end
print(n)
