// Every text the setup shows outside its dialog templates (.rc), in one place.
#pragma once
#include "common/container.h"
#include "common/productentry.h"

// Start-up, and the wizard's window caption.
inline constexpr char kTextLoadFailed[] = "初始化数据失败!";
// A package whose bytes are not what its checksums say: nothing is installed.
inline constexpr char kTextPackageDamaged[] = "安装文件已损坏，请重新下载。";
inline constexpr char kTextSheetCaption[] = "setup";
// Captions of the sheet's Next button.
inline constexpr char kTextNext[] = "下一步";
inline constexpr char kTextInstall[] = "安装";
// The answers of a page's Cancel and the pages' questions.
inline constexpr char kTextContinue[] = "继续安装";
inline constexpr char kTextQuit[] = "退出安装";
inline constexpr char kTextQuitNotStarted[] = "安装程序尚未进行,您真得要取消安装吗?";
inline constexpr char kTextQuitStarting[] = "安装即将开始,您真得要取消安装吗?";
inline constexpr char kTextQuitRunning[] = "安装程序正在进行,您真得要取消安装吗?";
inline constexpr char kTextQuitFinishing[] = "安装即将完成,您真得要取消安装吗?";
// The destination folder page: the browse box's title, the refusals.
inline constexpr char kTextBrowseTitle[] = "请选择安装目录";
inline constexpr char kTextBadDrive[] = "无效的驱动器";
inline constexpr char kTextBadFolder[] = "无效的文件夹";
inline constexpr char kTextFloppy[] = "软盘驱动器";
inline constexpr char kTextNetwork[] = "网络驱动器";
// A folder whose name holds characters outside the Simplified Chinese (GBK)
// character set: setup.log could not name it for the uninstaller.
inline constexpr char kTextFolderNotGbk[] = "文件夹名称中含有简体中文 (GBK) 字符集以外的字符, 无法安装到此文件夹。请选择其他文件夹。";
// The copy page.
inline constexpr char kTextGettingFileInfo[] = "正在获取文件信息...";
inline constexpr char kTextVerifying[] = "正在校验安装文件...";
inline constexpr char kTextCopyingTo[] = "正在拷贝至 %s ";  // the shortened target path
inline constexpr char kTextOverwriteQuestion[] = "文件 %s 已存在,要覆盖吗?";
inline constexpr char kTextOverwrite[] = "覆盖";
inline constexpr char kTextKeep[] = "取消";
inline constexpr char kTextEstimateUnknown[] = "估计剩余时间...";
inline constexpr char kTextEstimateSeconds[] = "估计剩余时间%d秒.";
inline constexpr char kTextEstimateMinutes[] = "估计剩余时间%d分%d秒.";
inline constexpr char kTextEstimateHours[] = "估计剩余时间%d小时%d分%d秒.";
inline constexpr char kTextEstimateDone[] = "估计剩余时间0秒.";
#define UNINSTALLER_FAILED_TEXT "创建 " UNINSTALLER_NAME " 失败!"
inline constexpr char kTextCreatingAssociations[] = "正在创建文件类型关联...";
inline constexpr char kTextFilesNotInstalled[] = "以下文件未能安装:";  // then one path a line
// The same over an installation of the product, which the run then put back.
inline constexpr char kTextUpgradeFailed[] = "以下文件未能安装，已恢复原来安装的版本:";  // then one path a line
// setup.log could not be written over an installation of the product, which
// the run then put back.
inline constexpr char kTextPreviousRestored[] = "已恢复原来安装的版本。";
// Files to be replaced or removed are open in other programs (the programs,
// or the files when the system cannot name the programs, follow).
inline constexpr char kTextInUsePrograms[] =
    "以下程序正在使用要更新的文件。请关闭这些程序后单击“重试”；单击“忽略”继续安装，这些文件在重新启动计算机后更新。";
inline constexpr char kTextInUseFiles[] =
    "以下文件正在被其他程序使用。请关闭使用它们的程序后单击“重试”；单击“忽略”继续安装，这些文件在重新启动计算机后更新。";
inline constexpr char kTextRetry[] = "重试";
inline constexpr char kTextIgnore[] = "忽略";
inline constexpr char kTextCancel[] = "取消";
// The finish page (and the unattended account) when files wait for the restart.
inline constexpr char kTextRestartNeeded[] = "需要重新启动计算机才能完成安装。";
// The folder page: a newer version of the product is installed (its
// version, then this setup's).
inline constexpr char kTextDowngradeQuestion[] = "已安装较新的版本 %s，是否继续？\r\n(本安装程序的版本: %s)";
inline constexpr char kTextInstallComplete[] = "安装完成";
// The finish run: a log that could not be created, or not written to the end.
inline constexpr char kTextLogCreateFailed[] = "创建 setup.log 文件失败!";
inline constexpr char kTextLogWriteFailed[] = "写入 setup.log 文件失败!";
// The entry in the system's list of installed programs could not be written.
inline constexpr char kTextEntryFailed[] = "无法写入已安装程序列表 (需要管理员权限)!";
// The command line: the list of switches (/?), and the account of an
// unattended run (/S /LOG=file), a line per action.
inline constexpr char kTextUsageCaption[] = "安装程序的命令行";
inline constexpr char kTextUsage[] =
    "setup.exe [/S] [/NOOVERWRITE] [/ALLOWDOWNGRADE] [/LOG=文件] [/D=文件夹]\r\n\r\n"
    "/S\t静默安装: 不显示任何窗口\r\n"
    "/NOOVERWRITE\t静默安装时保留已存在的文件 (默认覆盖)\r\n"
    "/ALLOWDOWNGRADE\t静默安装时允许覆盖已安装的较新版本\r\n"
    "/LOG=文件\t把安装过程写入该文件 (UTF-8 文本)\r\n"
    "/D=文件夹\t安装文件夹; 必须放在最后, 可含空格, 不加引号; 缺少的文件夹会被创建\r\n"
    "/?\t显示本说明\r\n\r\n"
    "退出代码: 0 完成, 1 取消, 2 安装包损坏, 3 安装文件夹被拒绝, 4 有文件未能安装, "
    "8 已安装较新的版本, 3010 完成, 需要重新启动计算机";
inline constexpr char kTextRunStart[] = "静默安装: %s";
inline constexpr char kTextRunUnknownSwitch[] = "忽略未知的参数: %s";
inline constexpr char kTextRunFolder[] = "安装文件夹: %s";
inline constexpr char kTextRunFolderRefused[] = "安装文件夹被拒绝: %s";
inline constexpr char kTextRunFolderTooLong[] = "安装文件夹的路径太长";
inline constexpr char kTextRunPrevious[] = "已安装的版本 %s: %s";  // version, folder
inline constexpr char kTextRunDowngradeRefused[] = "已安装较新的版本 %s, 不安装版本 %s (/ALLOWDOWNGRADE 允许)";
inline constexpr char kTextRunDowngrade[] = "覆盖已安装的较新版本 %s (/ALLOWDOWNGRADE)";
inline constexpr char kTextRunFolderMade[] = "已创建文件夹: %s";
inline constexpr char kTextRunInUse[] = "正在使用中的文件: %s";
inline constexpr char kTextRunInUseProgram[] = "使用文件的程序: %s";
inline constexpr char kTextRunWritten[] = "已写入文件: %s";
inline constexpr char kTextRunAtRestart[] = "重新启动后替换: %s";
inline constexpr char kTextRunOldRemoved[] = "已删除旧版本的文件: %s";
inline constexpr char kTextRunOldAtRestart[] = "重新启动后删除旧版本的文件: %s";
inline constexpr char kTextRunKept[] = "保留已存在的文件: %s";
inline constexpr char kTextRunNotWritten[] = "未能写入文件: %s";
inline constexpr char kTextRunAsked[] = "询问 \"%s\"";
inline constexpr char kTextRunAnswerOverwrite[] = "    回答: 覆盖";
inline constexpr char kTextRunAnswerKeep[] = "    回答: 保留 (/NOOVERWRITE)";
inline constexpr char kTextRunRegistered[] = "已注册控件: %s";
inline constexpr char kTextRunNotRegistered[] = "注册控件失败: %s";
inline constexpr char kTextRunAssociation[] = "已创建文件类型关联: %s";
inline constexpr char kTextRunUninstaller[] = "已写入卸载程序: %s";
inline constexpr char kTextRunShortcut[] = "已创建快捷方式: %s";
inline constexpr char kTextRunShortcutFailed[] = "创建快捷方式失败: %s";
inline constexpr char kTextRunSetupLog[] = "已写入安装记录: %s";
inline constexpr char kTextRunEntry[] = "已写入程序列表项: HKEY_LOCAL_MACHINE\\" PRODUCT_ENTRY_ROOT "\\%s";
inline constexpr char kTextRunEntryFailed[] = "写入程序列表项失败: HKEY_LOCAL_MACHINE\\" PRODUCT_ENTRY_ROOT "\\%s";
inline constexpr char kTextRunMessage[] = "错误: %s";
inline constexpr char kTextRunExitCode[] = "退出代码: %d";
