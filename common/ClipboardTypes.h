#pragma once

namespace presto {

// The clipboard's type identifiers, as snapshot files store them and the daemon asks the
// clipboard for them.
inline constexpr char kUtf8PlainTextType[] = "public.utf8-plain-text";
inline constexpr char kTiffType[] = "public.tiff";
inline constexpr char kFileUrlType[] = "public.file-url";

} // namespace presto
