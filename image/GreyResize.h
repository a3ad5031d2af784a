#pragma once
// dlib's bilinear resize of a grey picture, to its bytes, for the face detector's pyramid
// levels; only the face detector's files include dlib.

#include <dlib/array2d.h>

namespace quorvel {

using CGrey = dlib::array2d<unsigned char>;

// Rows firstRow to endRow of out, in resize_image's bytes for in resized to out's size.
void ResizeGrey(const CGrey &in, CGrey &out, long firstRow, long endRow);
// The whole of out, its lower rows on another thread.
void ResizeGrey(const CGrey &in, CGrey &out);

} // namespace quorvel
