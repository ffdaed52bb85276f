# The start row is the opened picture; going back to the newest state gives the changed one.
cmp opened.bmp start.bmp && cmp changed.bmp back.bmp
