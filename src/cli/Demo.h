#pragma once
// The typical use of Quoddle, step by step, on the simulated desktop: what the user does and what
// Quoddle does in answer, printed as a person would follow it.

#include <ostream>

namespace quoddle {

int runDemo(std::ostream& out);

} // namespace quoddle
