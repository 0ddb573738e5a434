#pragma once

// Runs the statements of a batch file in order. Output outside a block goes to the console
// descriptor; inside a block to the block's file, which each block replaces.

#include "scripthost/batch_script.h"

#include <functional>
#include <vector>

namespace scripthost
{
class BatchRunner
{
public:
    using Sleep = std::function<void(int seconds)>;

    explicit BatchRunner(int consoleFd, Sleep sleep = {});
    ~BatchRunner();

    void run(const std::vector<Statement>& statements);

private:
    void run_statement(const Statement& s);
    void open_block(const Statement& s);
    void close_block();
    int output_fd() const;
    void write(const std::string& text);

    int consoleFd;
    int blockFd = -1;
    bool skippingBlock = false;
    Sleep sleep;

    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;
};
} // namespace scripthost
