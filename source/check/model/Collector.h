// Where the rules put their findings: handed on as they are made, so that
// nothing is kept that grows with the ini file.
#pragma once

#include <functional>
#include <string>

#include "model/Finding.h"

class Collector {
public:
    explicit Collector(std::function<void(const Finding&)> emit) : emit(std::move(emit)) {}
    void operator()(std::size_t line, KindId kind, const std::string& message,
                    const std::string& file = std::string()) {
        emit(Finding{line, kind, message, file});
    }
    // With the advice for this case, in place of the kind's.
    void operator()(std::size_t line, KindId kind, const std::string& message,
                    const std::string& file, const std::string& advice) {
        Finding finding{line, kind, message, file};
        finding.advice = advice;
        emit(finding);
    }
    void operator()(const Finding& finding) { emit(finding); }

private:
    std::function<void(const Finding&)> emit;
};
