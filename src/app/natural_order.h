#pragma once

#include "tasks/image_item.h"

#include <string>
#include <vector>

namespace velquist {

// Orders names as people read them: runs of digits by their value (IMG_2 before
// IMG_10), letters without regard to case. Names equal that way (IMG_01, IMG_1)
// fall back to a plain comparison, so the order is total and repeatable.
bool NaturalLess(const std::wstring& a, const std::wstring& b);

// Sorts the records by their file names in that order, those of a mirrored tree by
// subfolder first (the added folder's own files before its subfolders'); stable.
void SortNaturally(std::vector<ImageItem>& items);

} // namespace velquist
