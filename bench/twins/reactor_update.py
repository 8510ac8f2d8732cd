# Twin of reactor_update.ixo: a property setter that runs the reactions
# reading the field, a hundred thousand updates.
class Reactor:
    def __init__(self):
        self._x = 0
        self.reactions = []

    @property
    def x(self):
        return self._x

    @x.setter
    def x(self, value):
        self._x = value
        for reaction in self.reactions:
            reaction()


r = Reactor()
seen = 0
last_x = None


def reaction():
    global seen, last_x
    seen += 1
    last_x = r.x


r.reactions.append(reaction)
reaction()
for i in range(1, 100001):
    r.x = i
print(seen, last_x)
