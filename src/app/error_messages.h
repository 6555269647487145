#pragma once

// The two failures the player is told about, in the player's language.
inline constexpr wchar_t ClientStartFailedText[] = L"N\u00e3o foi poss\u00edvel iniciar bin\\client.exe.";
inline constexpr wchar_t SmartWalkingFailedText[] = L"N\u00e3o foi poss\u00edvel ativar o Zadev Uzuzize.";
