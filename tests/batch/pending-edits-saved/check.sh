# The text is in every file written while it was open, and the wide layer comes back whole.
cmp ref.bmp during.bmp && cmp ref.bmp reopened.bmp && cmp wide.bmp wide-reopened.bmp
