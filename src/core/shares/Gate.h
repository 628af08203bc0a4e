#pragma once

// The one gate every file operation passes: files(), drives() and shell() hand out the platform's services
// behind it. While a collector is set ("Script only"), copies, renames, drive mappings, Drop Dir and the
// shell buttons are described to it and not done; listing files still reads. Plain C++.

#include <functional>
#include <string>

namespace quorix::shares {

// Receives what an operation would have done ("copy x:\MIR\A.BAK to y:\MIR\A.BAK"); may be called from any
// thread. An empty collector lets every operation through.
using Collector = std::function<void(const std::string &what)>;
void setCollector(Collector collector);

} // namespace quorix::shares
