#include "pack/Texture.h"

#include "pack/PackReader.h"

#include <GL/gl.h>
#include <SOIL/SOIL.h>

bool BindImage(const char* name, unsigned int* texture, bool mipmaps, int wrap)
{
    *texture = 0;
    auto blob = CPackReader::LoadData(name);
    if (!blob)
        return false;

    // The decoder hands over tightly packed rows (three bytes a pixel for RGB)
    // but leaves the unpack alignment at OpenGL's default of 4: rows whose
    // length is not a multiple of 4 (odd widths, the small mipmap levels) would
    // be read skewed and past the end of its buffer.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // The mipmap chain is always built, so a texture can later switch filters;
    // rows are flipped so the image's top row lands at t = 1.
    *texture =
        SOIL_load_OGL_texture_from_memory(static_cast<const unsigned char*>(blob->GetData()), blob->GetSize(),
                                          SOIL_LOAD_AUTO, SOIL_CREATE_NEW_ID, SOIL_FLAG_MIPMAPS | SOIL_FLAG_INVERT_Y);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);

    // Also for a failed decode (texture 0): the default texture then gets the parameters.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, *texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    if (mipmaps) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    return true;
}
