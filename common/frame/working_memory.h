// The memory a long run works in, made ready at its start: a page of memory
// first touched costs a trap into the kernel, several thousand of them a
// photo conversion, where one request makes them all ready together.
#pragma once

#include <cstddef>

// Keeps large blocks on the heap and freed memory there, then makes bytes of
// heap ready at once, in large pages where the kernel offers them; later
// allocations reuse them without a trap. Where the system cannot, nothing
// changes but the first touch's cost.
void prepare_working_memory(std::size_t bytes);
