// The framework's exception base. Exceptions are thrown by pointer to an
// object made with `new` and freed by the catcher with Delete():
//
//     try { ... } catch (CException* e) { ...; e->Delete(); }
//
// An exception that leaves a command handler is caught by the framework's
// message dispatch, reported in a message box and freed there; the program
// goes on.
#pragma once

#include <memory>
#include <string>

#include "platform/win32/win32.h"

using PUINT = UINT*;

class CException {
public:
    // `autoDelete` FALSE marks an object that is not on the heap (a static
    // one, say): Delete() then leaves it alone.
    explicit CException(BOOL autoDelete = TRUE) noexcept : m_bAutoDelete(autoDelete) {}
    virtual ~CException() = default;
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;

    // Copies the exception's message into `error` (at most maxError - 1
    // characters and a terminator) and answers TRUE; FALSE with an empty
    // text when there is no message. The base has none.
    virtual BOOL GetErrorMessage(LPSTR error, UINT maxError, PUINT helpContext = nullptr) const;

    // Shows the message (or `fallback` when there is none) in a message box
    // and answers the box's result.
    virtual int ReportError(UINT type = 0, LPCSTR fallback = nullptr) const;

    // Frees a heap exception; the way every catcher ends its handling.
    void Delete() noexcept;

protected:
    BOOL m_bAutoDelete;
};

namespace dravenlok::mfc {

struct ExceptionDeleter {
    void operator()(CException* exception) const noexcept
    {
        if (exception != nullptr) {
            exception->Delete();
        }
    }
};
// Owns a caught exception until the end of the scope.
using ExceptionPtr = std::unique_ptr<CException, ExceptionDeleter>;

// The message of `exception`, or an empty text when it has none.
[[nodiscard]] std::string ExceptionMessage(const CException& exception);

}  // namespace dravenlok::mfc
