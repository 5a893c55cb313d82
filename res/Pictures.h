#pragma once

namespace velkar {

// The pictures and icon live in a static library; naming them keeps the linker from dropping
// them. Cheap to call again.
void LoadPictures();

} // namespace velkar
