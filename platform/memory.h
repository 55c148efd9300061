#pragma once
/// Allocator tuning for programs that handle photo-sized buffers.

namespace scalopex::platform {

/// Lets blocks of up to 64 MiB come from the heap and keeps up to 256 MiB of
/// freed heap for reuse, instead of mapping fresh pages for every buffer and
/// returning them on release: on many machines faulting fresh pages in costs
/// more than the image work done on them. Call once at the start of main.
void TuneAllocatorForImages();

}  // namespace scalopex::platform
