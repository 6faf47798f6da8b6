// BindImage: one pack entry (JPEG or PNG bytes) becomes an OpenGL texture with
// its full mipmap chain. Needs a current OpenGL context.
// Returns false, with *texture = 0 and no OpenGL call, when the entry cannot be
// read from the pack; returns true once the entry was read, even if it could
// not be decoded (then *texture = 0). Leaves GL_TEXTURE_2D enabled and the new
// texture bound.
#pragma once

bool BindImage(const char* name, // pack entry name
               unsigned int* texture, // out: texture name, 0 on failure; caller owns
               bool mipmaps, // true: trilinear filtering; false: nearest
               int wrap); // GL_REPEAT, GL_CLAMP, ... for both axes
