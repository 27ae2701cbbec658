// A dialog template (the extended form, DLGTEMPLATEEX, which the resource
// compiler writes for DIALOGEX) with another font: the programs show their
// templates in the font of the language they speak.
#pragma once
#include <stddef.h>
#include <string.h>

// Where the font of a template of size bytes begins (its point size) and
// where its first control begins, in bytes from the template's start;
// false when the template is not an extended one with a font
// (DS_SETFONT), or does not hold what it says.
bool FindTemplateFont(const unsigned char* tmpl, size_t size, size_t& fontAt, size_t& itemsAt);

// The bytes of tmpl with the font face (ASCII: a font's English name) in
// points, weight, italic and character set kept, into out (room for at
// least TemplateWithFontRoom bytes); the count written, 0 when the template
// has no font to replace.
size_t TemplateWithFont(const unsigned char* tmpl, size_t size, const char* face, int points, unsigned char* out);
inline size_t TemplateWithFontRoom(size_t size, const char* face) { return size + 2 * strlen(face) + 8; }
