// Version information of both programs (their version resources).
#pragma once
#define PROGRAM_VERSION 1,0,0,0
#define PROGRAM_VERSION_TEXT "1.0.0.0"
#define PROGRAM_PRODUCT_NAME "安装与卸载程序"
#define PROGRAM_COPYRIGHT "Copyright (C) 2026 安装与卸载程序的作者"
