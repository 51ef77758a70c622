#pragma once

const char* GetVersionText();
