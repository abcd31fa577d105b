// Texts every wizard window shares, as code page 932 bytes (the sources that
// include this are compiled with CP932_FLAGS).
#pragma once

inline constexpr char TEXT_WIZARD_CAPTION[] = "Trelvik";
inline constexpr char TEXT_NEXT[] = "次へ(&N) >";
inline constexpr char TEXT_BACK[] = "< 戻る(&P)";
inline constexpr char TEXT_CANCEL[] = "キャンセル";
inline constexpr char TEXT_BROWSE_W[] = "参照(&W)";

inline constexpr char CAPTION_ERROR[] = "エラー";
inline constexpr char CAPTION_WARNING[] = "警告";
inline constexpr char CAPTION_QUESTION[] = "質問";

inline constexpr char MESSAGE_FILL_EVERY_FIELD[] = "すべての項目を正しく入力して下さい。";
