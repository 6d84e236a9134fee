// The file list: files and folders dropped from the shell go in at the top, each path once.
#pragma once
#include "framework/controls.h"

#include <shellapi.h>

class CDropList : public CListCtrl {
 public:
  typedef CDropList ThisClass;
  ~CDropList() override {}

  void OnDropFiles(HDROP hDropInfo);

  DECLARE_MESSAGE_MAP()
};
