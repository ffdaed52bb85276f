# Unfilled and red pictures differ from the black filled one; undo gives the black one back.
! cmp -s filled.bmp outline.bmp && ! cmp -s filled.bmp red.bmp && cmp filled.bmp back.bmp
