-- Twin of object_paths.ixo: three million rounds of table field reads and writes.
local o = {a = 0, b = 1}
for _ = 1, 3000000 do o.a = o.a + o.b end
print(o.a)
