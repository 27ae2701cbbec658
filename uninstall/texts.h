// Every text the uninstaller shows, in one place: the dialog template's
// captions, each state's button captions and headlines, the run's status
// lines and the messages. The program and its resources read them from here.
#pragma once

// State Ready: the template's texts, then the headline once the product's name is known.
#define TEXT_TITLE "ridkit"
#define TEXT_READY_STATUS "如果取消卸载，请按[取消]退出"
#define TEXT_READY_HEADLINE "正在准备卸载..."
#define TEXT_PREPARING_FORMAT "正在准备卸载%s..."

// Button 1 in states Ready, Files left and Finished; button 2 in Ready and Files left.
#define BUTTON_UNINSTALL "卸载"
#define BUTTON_DELETE_ALL "全部删除"
#define BUTTON_DONE "完成"
#define BUTTON_CANCEL "取消"
#define BUTTON_EXIT "退出"

// State Running (the product's name; a shortened path), then Files left and Finished.
#define TEXT_RUNNING_FORMAT "正在卸载%s..."
#define TEXT_READING "正在读取文件信息..."
#define TEXT_DELETING_FORMAT "正在删除 %s"
#define TEXT_DELETING_TYPES "正在删除文件类型关联"
#define TEXT_DELETING_SHORTCUTS "正在删除文件快捷式"
#define TEXT_FILES_LEFT "以下文件未被删除..."
#define TEXT_FINISHED "卸载完成,请单击 [完成] 退出."
// Finished, but files in use (and their folders) go at the next restart.
#define TEXT_FINISHED_RESTART "卸载完成,正在使用的文件将在重新启动计算机后删除."

// Messages: the uninstaller's own data unreadable; the log unreadable; a folder
// that is (or holds) a system or user folder, never removed whole; something
// inside a folder that could not be removed (its path).
#define TABLE_FAILED_TEXT "初始化数据失败!"
#define LOG_OPEN_FAILED_TEXT "打开 setup.log 失败!"
#define FOLDER_REFUSED_FORMAT "不能删除文件夹 %s: 它是(或含有)系统或用户的文件夹."
#define FOLDER_FAILED_FORMAT "删除 %s 失败!"

// The account of an unattended removal (/S /LOG=file), a line per step.
#define RUN_LOG_START_FORMAT "静默卸载: %s"
#define RUN_LOG_MESSAGE_FORMAT "错误: %s"
#define RUN_LOG_LEFT_FORMAT "未删除的文件: %s"
#define RUN_LOG_AT_RESTART_FORMAT "重新启动后删除: %s"
#define RUN_LOG_ALL_FORMAT "删除整个安装文件夹 (/ALL): %s"
#define RUN_LOG_EXIT_FORMAT "退出代码: %d"
#define RUN_LOG_COPY_FAILED_TEXT "无法在临时文件夹中创建、检查或启动卸载程序的副本!"
