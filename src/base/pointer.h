// The mouse pointer, drawn by the program into the back buffer as the last
// thing before a frame is shown, so that no other thread ever writes there:
// the library's default arrow, white with a black edge, pixel for pixel.
#ifndef STARHOP_POINTER_H
#define STARHOP_POINTER_H

struct BITMAP;

// Draws the arrow into `bmp` with its tip at (x, y), clipped to the bitmap.
void draw_pointer(BITMAP* bmp, int x, int y);

// Copies `picture` whole to `to` (the screen), with the arrow over it at
// (x, y) when `pointer` is true. The arrow goes into the picture for the copy
// and comes off again after it: the picture stays as it was drawn, which is
// what a picture saved from it shows.
void show_picture(BITMAP* picture, BITMAP* to, bool pointer, int x, int y);

// Whether the pointer is over the window, where it is drawn; false without a mouse.
bool pointer_over_window();

#endif
