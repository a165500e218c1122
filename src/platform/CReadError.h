#pragma once

#include <QString>

#include <cstdint>

// Why a text file of the document (a points file, a project file) could not
// be read, as data: what went wrong, where, and the values its wording
// needs. The command-line tool prints English(); the wizard shows
// CFailureReason::OfRead, made from the same fields.
class CReadError
{
public:
    enum class EKind {
        None,
        CannotOpen,      // m_nErrno (0 when unknown), m_strValue: the system's English text
        CannotRead,      // the same, for a read after the open
        TooManyBytes,    // m_nLimit: the bytes a file may hold
        LineTooLong,     // m_nLimit: the bytes a line may hold
        NotFourIntegers, // a points-file line that is not "sx sy tx ty"
        TooManyPairs,    // m_nLimit: the pairs a file may hold
        NotProject,      // m_strKey: the first word a project file starts with
        NewerVersion,    // m_nNumber: the file's version, m_nLimit: the newest one read
        Repeated,        // m_strKey given a second time
        NoFileName,      // m_strKey (source or target) without a path
        BadCurve,        // m_strKey, m_strValue: not a timing curve
        BadWholeNumber,  // m_strKey, m_strValue outside m_nLow ... m_nLimit or not whole
        BadNumber,       // m_strKey, m_strValue outside m_dLow ... m_dHigh or not a number
        BadPair,         // pair m_nNumber of the m_nLimit announced is not "sx sy tx ty"
        MorePairs,       // more pairs than the m_nLimit that line m_nAtLine announces
        CutShort,        // the file ends after m_nNumber of the m_nLimit pairs of line m_nAtLine
        UnknownEntry,    // m_strKey
        NoEntry,         // the required m_strKey line is missing
        NoPicture,       // the m_strKey picture m_strValue (native separators) does not exist
        PictureIsFolder, // the same, a folder
    };

    // Sets the kind, the line and the limit; returns false, so that a reader
    // can end with "return error.Fail(...)".
    bool Fail(EKind kind, int line, int64_t limit = 0);

    // The English reason with its place: "FILE:LINE: reason", or
    // "FILE: reason" for the whole file.
    QString English() const;

    EKind m_eKind = EKind::None;
    // The file as the reason names it ("standard input" for "-").
    QString m_strFile;
    // From 1; 0 for the whole file.
    int m_nLine = 0;
    int m_nErrno = 0;
    QString m_strKey;
    QString m_strValue;
    int64_t m_nNumber = 0;
    int64_t m_nLow = 0;
    int64_t m_nLimit = 0;
    int m_nAtLine = 0;
    double m_dLow = 0;
    double m_dHigh = 0;
};
