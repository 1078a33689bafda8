// The engine's name as the outside world sees it: printed at start, in the
// protocols' identification, in the settings file header, and appended to
// every named shared object so that engines with different names never meet.
#pragma once

// Zero-filled to 50 characters; object names take at most these 50.
inline constexpr int ENGINE_ID_SIZE = 50;
inline constexpr char engineId[ENGINE_ID_SIZE] = "Tarvok_v8.05 (32 bit)";
