# Twin of parse_tokens.ixo: re tokenising the same 10 MB string.
import re
line = "alpha 123 beta 4567 gamma89 delta 0 epsilon 31415 zeta\n"
text = line * 181818
words = 0
numbers = 0
for m in re.finditer(r"([a-z]+)|([0-9]+)|[ \n]+", text):
    if m.group(1):
        words += 1
    elif m.group(2):
        numbers += 1
print(len(text), words, numbers)
