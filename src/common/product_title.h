#pragma once

// The title forced on the client's windows and the caption of every error box.
inline constexpr wchar_t ProductTitle[] = L"Varnel Official Client";
