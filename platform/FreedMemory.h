#pragma once

// Hands memory the program has freed back to the system. A check holds every feed's document
// at once for a moment; the allocator keeps those pages afterwards unless asked, so a program
// that idles in the tray for hours would go on holding the peak of its last check.
namespace FreedMemory {
void release();
}
