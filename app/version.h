// The program's version, in one place: the version resource (app/res/tavrin.rc) and the window
// title are made from it. The text must spell the four numbers (tests/app/resources_test.cpp).
#pragma once

#define TAVRIN_VERSION_MAJOR 1
#define TAVRIN_VERSION_MINOR 0
#define TAVRIN_VERSION_PATCH 0
#define TAVRIN_VERSION_BUILD 3
#define TAVRIN_VERSION_TEXT "1.0.0.3"
