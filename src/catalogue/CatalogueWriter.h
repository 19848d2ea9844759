#pragma once

// Writes a catalogue in the packages.dat format, for the publishing tool and
// for tests: one record per line with CR LF, items separated by commas, texts
// in double quotes encoded as Windows-1253, Booleans as #TRUE# / #FALSE#.

#include "catalogue/Catalogue.h"

#include <string>

namespace znt {

// Fills out with the file's bytes. Returns false, with error naming the
// package and field, when a text holds a double quote, a control character or
// a character that Windows-1253 cannot hold.
bool FormatCatalogue(const Packages& packages, std::string& out, std::string& error);

// Empty when the UTF-8 text can be written as a catalogue text item,
// otherwise the reason it cannot.
std::string CatalogueTextProblem(const std::string& text);

}  // namespace znt
