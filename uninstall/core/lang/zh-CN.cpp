// The uninstaller's texts in Simplified Chinese, the default language.
#include "uninstall/core/texts.h"

namespace {

constexpr TextEntry kEntries[] = {
    {kTextTooLong, "输入的文字太长: 请输入不超过 %d 个字符。"},
    {kTextReadyStatus, "如果取消卸载，请按[取消]退出"},
    {kTextPreparing, "正在准备卸载%s..."},
    {kTextUninstallButton, "卸载"},
    {kTextDeleteAll, "全部删除"},
    {kTextDone, "完成"},
    {kTextCancelButton, "取消"},
    {kTextExitButton, "退出"},
    {kTextRunning, "正在卸载%s..."},
    {kTextReading, "正在读取文件信息..."},
    {kTextDeleting, "正在删除 %s"},
    {kTextDeletingTypes, "正在删除文件类型关联"},
    {kTextDeletingShortcuts, "正在删除文件快捷式"},
    {kTextFilesLeft, "以下文件未被删除..."},
    {kTextFinished, "卸载完成,请单击 [完成] 退出."},
    {kTextFinishedRestart, "卸载完成,重新启动计算机后删除其余文件."},
    {kTextTableFailed, "初始化数据失败!"},
    {kTextLogOpenFailed, "打开 setup.log 失败!"},
    {kTextFolderRefused, "不能删除文件夹 %s: 它是(或含有)系统或用户的文件夹."},
    {kTextFolderFailed, "删除 %s 失败!"},
    {kTextSilentStart, "静默卸载: %s"},
    {kTextSilentMessage, "错误: %s"},
    {kTextSilentLeft, "未删除的文件: %s"},
    {kTextSilentAtRestart, "重新启动后删除: %s"},
    {kTextSilentAll, "删除整个安装文件夹 (/ALL): %s"},
    {kTextSilentExit, "退出代码: %d"},
    {kTextCopyFailed, "无法在临时文件夹中创建、检查或启动卸载程序的副本!"},
    {kTextElevationRequired, "此程序是为所有用户安装的: 需要以管理员身份运行卸载程序才能删除。"},
};

constexpr TextArray<kUninstallTexts> kTexts = MakeTexts<kUninstallTexts>(kEntries);

}  // namespace

// The dialog template is drawn in its own font, SimSun (宋体).
extern const TextLanguage kUninstallChinese = {"zh-CN", 0x0804, 0, 0, kTexts.Texts};
