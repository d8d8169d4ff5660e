// Resource ids of the class library's conformance tests (tests/platform/res/test.rc).
// Drop-down entries are laid out as platform/res_format.h describes.
#pragma once

// Dialogs: 9001 in English and Simplified Chinese (different captions), 9002 in English only.
#define IDD_TEST 9001
#define IDD_TEST_SMALL 9002
#define IDD_TEST_PLAIN 9003  // a plain (not extended) template, English only

// Controls of IDD_TEST
#define IDB_TEST_PUSH 9010
#define IDX_TEST_CHECK 9011
#define IDE_TEST_EDIT 9012
#define IDE_TEST_UPPER 9013
#define IDC_TEST_COMBO 9014
#define IDL_TEST_LIST 9015
#define IDT_TEST_TREE 9016
#define ID_TEST_LABEL 9017
#define ID_TEST_GROUP 9018

// Controls of IDD_TEST_SMALL
#define IDE_TEST_SMALL_EDIT 9020

// Strings: 9101 to 9103 in all three languages, 9104 in English only, 9105 in Traditional
// Chinese only (for the language fallback).
#define IDS_TEST_HELLO 9101
#define IDS_TEST_ESCAPES 9102
#define IDS_TEST_FILTER 9103
#define IDS_TEST_ENGLISH_ONLY 9104
#define IDS_TEST_TRADITIONAL_ONLY 9105
