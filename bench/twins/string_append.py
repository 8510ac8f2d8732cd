# Twin of string_append.ixo: two million appends to one string, then find.
# Inside a function CPython appends to a string in place.
def main():
    s = ""
    for i in range(1, 2000001):
        s += str(i)
    print(s.find("1999999") + 1)
    print(len(s))
main()
