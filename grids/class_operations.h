#pragma once

#include "core/cells.h"

#include <memory>
#include <string>
#include <vector>

namespace quadrel {

enum class ClassOperation { Union, Intersect, Complement, Difference, Xor };

// The name of the class each operation makes: "_union_", "_intersect_", "_complement_", "_difference_",
// "_xor_".
const char* classOperationName(ClassOperation op);

// Combines classes into a new one. `selected` are the classes of the selected rows in row order,
// `focus` the class of the focus row (null when there is none). The others are the selected classes
// without the first occurrence of the focus class. Returns null when the operation needs a focus class
// and there is none.
std::unique_ptr<TCellIdList> combineClasses(ClassOperation op,
                                            const std::vector<std::shared_ptr<TCellIdList>>& selected,
                                            const std::shared_ptr<TCellIdList>& focus);

} // namespace quadrel
