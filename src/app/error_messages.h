#pragma once

// The two failures the player is told about, in the player's language.
inline constexpr wchar_t ClientStartFailedText[] = L"N\u00e3o foi poss\u00edvel iniciar bin\\client.exe.";
// The line under it when the client asks for administrator rights and the
// launcher has none: starting only the client elevated would leave walking
// unable to hook or reach it.
inline constexpr wchar_t ClientNeedsElevationText[] =
    L"Execute tamb\u00e9m este programa como administrador, ou desmarque \"Executar como administrador\" "
    L"nas propriedades de bin\\client.exe.";
inline constexpr wchar_t SmartWalkingFailedText[] = L"N\u00e3o foi poss\u00edvel ativar o Zadev Uzuzize.";
