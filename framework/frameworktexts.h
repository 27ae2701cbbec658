// The texts the framework itself shows (the programs keep theirs in their own tables).
#pragma once

// Data exchange: a text longer than its field's limit, in bytes.
inline constexpr char kTextTooLong[] = "输入的文字太长: 请输入不超过 %d 个字符。";
