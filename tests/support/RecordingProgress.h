// Progress implementations for tests: they record every call and raise cancel
// requests when a test asks for them.
#pragma once
#include "platform/Progress.h"

#include <functional>
#include <string>
#include <vector>

struct CProgressCall {
    std::string what; // "status", "file", "overall", "filepos", "pos", "cancel"
    std::string text;
    int value = 0;
};

// What both kinds of recording progress keep: the calls in order and the cancel checks.
class CProgressRecord {
public:
    // The n-th cancel check (counting from 1) reports a request.
    void CancelAtCheck(int n) { cancelAt.push_back(n); }
    // The status texts (those that begin with prefix), the texts and the values of the
    // calls of one kind, in order.
    std::vector<std::string> Statuses(const std::string& prefix = "") const;
    std::vector<std::string> Texts(const std::string& what) const;
    std::vector<int> Values(const std::string& what) const;
    std::vector<CProgressCall> calls;
    std::vector<int> cancelAt;
    int checks = 0;
    // A test's action, run at the cancel check hookAt (counting from 1).
    int hookAt = 0;
    std::function<void()> hook;

protected:
    // Counts a cancel check, records it and runs the hook when its turn has come; true
    // when a request was asked for at it.
    bool RecordCancelCheck();
};

class CRecordingBuildProgress : public IBuildProgress, public CProgressRecord {
public:
    void SetStatus(const std::string& t) override { calls.push_back({"status", t, 0}); }
    void SetFileName(const std::string& t) override { calls.push_back({"file", t, 0}); }
    void SetOverallPos(int p) override { calls.push_back({"overall", "", p}); }
    void SetFilePos(int p) override { calls.push_back({"filepos", "", p}); }
    bool CheckCancelButton() override { return RecordCancelCheck(); }
};

class CRecordingApplyProgress : public IApplyProgress, public CProgressRecord {
public:
    void SetStatus(const std::string& t) override { calls.push_back({"status", t, 0}); }
    void SetPos(int p) override { calls.push_back({"pos", "", p}); }
    bool CheckCancelButton() override { return RecordCancelCheck(); }
};
