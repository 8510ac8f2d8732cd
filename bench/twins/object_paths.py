# Twin of object_paths.ixo: three million rounds of attribute reads and writes.
class O:
    def __init__(self):
        self.a = 0
        self.b = 1
o = O()
for _ in range(3000000):
    o.a = o.a + o.b
print(o.a)
