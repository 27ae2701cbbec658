// The setup's texts in Simplified Chinese, the default language.
#include "common/container.h"
#include "common/productentry.h"
#include "setup/core/texts.h"

namespace {

constexpr TextEntry kEntries[] = {
    {kTextTooLong, "输入的文字太长: 请输入不超过 %d 个字符。"},
    {kTextLoadFailed, "初始化数据失败!"},
    {kTextPackageDamaged, "安装文件已损坏，请重新下载。"},
    {kTextSheetCaption, "setup"},
    {kTextNext, "下一步"},
    {kTextInstall, "安装"},
    {kTextContinue, "继续安装"},
    {kTextQuit, "退出安装"},
    {kTextQuitNotStarted, "安装程序尚未进行,您真得要取消安装吗?"},
    {kTextQuitStarting, "安装即将开始,您真得要取消安装吗?"},
    {kTextQuitRunning, "安装程序正在进行,您真得要取消安装吗?"},
    {kTextQuitFinishing, "安装即将完成,您真得要取消安装吗?"},
    {kTextAgree, "我同意"},
    {kTextDisagree, "我不同意"},
    {kTextBrowse, "浏览"},
    {kTextBrowseTitle, "请选择安装目录"},
    {kTextBadDrive, "无效的驱动器"},
    {kTextBadFolder, "无效的文件夹"},
    {kTextFloppy, "软盘驱动器"},
    {kTextNetwork, "网络驱动器"},
    {kTextFolderNotGbk, "文件夹名称中含有简体中文 (GBK) 字符集以外的字符, 无法安装到此文件夹。请选择其他文件夹。"},
    {kTextScopeMachine, "为所有用户安装（需要管理员权限）"},
    {kTextScopeUser, "只为我安装"},
    {kTextElevationFailed, "无法以管理员权限启动安装程序。"},
    {kTextCopying, "正在拷贝..."},
    {kTextGettingFileInfo, "正在获取文件信息..."},
    {kTextVerifying, "正在校验安装文件..."},
    {kTextCopyingTo, "正在拷贝至 %s "},
    {kTextOverwriteQuestion, "文件 %s 已存在,要覆盖吗?"},
    {kTextOverwrite, "覆盖"},
    {kTextKeep, "取消"},
    {kTextEstimateUnknown, "估计剩余时间..."},
    {kTextEstimateSeconds, "估计剩余时间%d秒."},
    {kTextEstimateMinutes, "估计剩余时间%d分%d秒."},
    {kTextEstimateHours, "估计剩余时间%d小时%d分%d秒."},
    {kTextEstimateDone, "估计剩余时间0秒."},
    {kTextUninstallerFailed, "创建 " UNINSTALLER_NAME " 失败!"},
    {kTextCreatingAssociations, "正在创建文件类型关联..."},
    {kTextFilesNotInstalled, "以下文件未能安装:"},
    {kTextUpgradeFailed, "以下文件未能安装，已恢复原来安装的版本:"},
    {kTextPreviousRestored, "已恢复原来安装的版本。"},
    {kTextInUsePrograms,
     "以下程序正在使用要更新的文件。请关闭这些程序后单击“重试”；单击“忽略”继续安装，这些文件在重新启动计算机后更新。"},
    {kTextInUseFiles,
     "以下文件正在被其他程序使用。请关闭使用它们的程序后单击“重试”；单击“忽略”继续安装，这些文件在重新启动计算机后更新。"},
    {kTextRetry, "重试"},
    {kTextIgnore, "忽略"},
    {kTextCancel, "取消"},
    {kTextRestartNeeded, "需要重新启动计算机才能完成安装。"},
    {kTextDowngradeQuestion, "已安装较新的版本 %s，是否继续？\r\n(本安装程序的版本: %s)"},
    {kTextInstallComplete, "安装完成"},
    {kTextFinishDesktop, "添加到桌面快捷式"},
    {kTextFinishStartMenu, "添加到开始菜单"},
    {kTextFinishGroup, "添加到程序组"},
    {kTextFinishReadme, "查看自述文件"},
    {kTextFinishRun, "运行程序"},
    {kTextLogCreateFailed, "创建 setup.log 文件失败!"},
    {kTextLogWriteFailed, "写入 setup.log 文件失败!"},
    {kTextEntryFailed, "无法写入已安装程序列表 (需要管理员权限)!"},
    {kTextUsageCaption, "安装程序的命令行"},
    {kTextUsage,
     "setup.exe [/S] [/ALLUSERS | /CURRENTUSER] [/NOOVERWRITE] [/ALLOWDOWNGRADE] [/LOG=文件] [/D=文件夹]\r\n\r\n"
     "/S\t静默安装: 不显示任何窗口\r\n"
     "/ALLUSERS\t为所有用户安装 (需要管理员权限; 仅用于可选择安装范围的安装程序)\r\n"
     "/CURRENTUSER\t只为当前用户安装 (仅用于可选择安装范围的安装程序)\r\n"
     "/NOOVERWRITE\t静默安装时保留已存在的文件 (默认覆盖)\r\n"
     "/ALLOWDOWNGRADE\t静默安装时允许覆盖已安装的较新版本\r\n"
     "/LOG=文件\t把安装过程写入该文件 (UTF-8 文本)\r\n"
     "/D=文件夹\t安装文件夹; 必须放在最后, 可含空格, 不加引号; 缺少的文件夹会被创建\r\n"
     "/?\t显示本说明\r\n\r\n"
     "退出代码: 0 完成, 1 取消, 2 安装包损坏, 3 安装文件夹被拒绝, 4 有文件未能安装, "
     "8 已安装较新的版本, 740 需要管理员权限 (静默安装), 3010 完成, 需要重新启动计算机"},
    {kTextRunStart, "静默安装: %s"},
    {kTextRunUnknownSwitch, "忽略未知的参数: %s"},
    {kTextRunFolder, "安装文件夹: %s"},
    {kTextRunFolderRefused, "安装文件夹被拒绝: %s"},
    {kTextRunFolderTooLong, "安装文件夹的路径太长"},
    {kTextRunPrevious, "已安装的版本 %s: %s"},
    {kTextRunDowngradeRefused, "已安装较新的版本 %s, 不安装版本 %s (/ALLOWDOWNGRADE 允许)"},
    {kTextRunDowngrade, "覆盖已安装的较新版本 %s (/ALLOWDOWNGRADE)"},
    {kTextRunFolderMade, "已创建文件夹: %s"},
    {kTextRunInUse, "正在使用中的文件: %s"},
    {kTextRunInUseProgram, "使用文件的程序: %s"},
    {kTextRunWritten, "已写入文件: %s"},
    {kTextRunKept, "保留已存在的文件: %s"},
    {kTextRunNotWritten, "未能写入文件: %s"},
    {kTextRunAtRestart, "重新启动后替换: %s"},
    {kTextRunOldRemoved, "已删除旧版本的文件: %s"},
    {kTextRunOldAtRestart, "重新启动后删除旧版本的文件: %s"},
    {kTextRunNotScheduled, "无法安排在重新启动后替换或删除, 文件保持原样: %s"},
    {kTextRunAsked, "询问 \"%s\""},
    {kTextRunAnswerOverwrite, "    回答: 覆盖"},
    {kTextRunAnswerKeep, "    回答: 保留 (/NOOVERWRITE)"},
    {kTextRunRegistered, "已注册控件: %s"},
    {kTextRunNotRegistered, "注册控件失败: %s"},
    {kTextRunAssociation, "已创建文件类型关联: %s"},
    {kTextRunUninstaller, "已写入卸载程序: %s"},
    {kTextRunShortcut, "已创建快捷方式: %s"},
    {kTextRunShortcutFailed, "创建快捷方式失败: %s"},
    {kTextRunSetupLog, "已写入安装记录: %s"},
    {kTextRunEntry, "已写入程序列表项: %s"},
    {kTextRunEntryFailed, "写入程序列表项失败: %s"},
    {kTextRunMessage, "错误: %s"},
    {kTextRunExitCode, "退出代码: %d"},
    {kTextRunForAllUsers, "为所有用户安装"},
    {kTextRunForCurrentUser, "只为当前用户安装"},
    {kTextRunElevationRequired, "为所有用户安装需要管理员权限: 请以管理员身份运行, 或使用 /CURRENTUSER 只为当前用户安装"},
};

constexpr TextArray<kSetupTexts> kTexts = MakeTexts<kSetupTexts>(kEntries);

}  // namespace

// The dialog templates are drawn in their own font, SimSun (宋体).
extern const TextLanguage kSetupChinese = {"zh-CN", 0x0804, 0, 0, kTexts.Texts};
