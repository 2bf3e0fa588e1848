#pragma once
extern const char* const zentrik_version;
