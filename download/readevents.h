#pragma once

#include "download/outcome.h"

class CZq6Doc;
class DownloadServices;

// "Read events" into the document's open database: the download run as
// services choose (download/download.h), its outcome told through the
// document's messages, then the list read again and the views told. Returns
// the outcome, with a warning added when the list could not be read again.
download::Outcome ReadEvents(CZq6Doc& doc, DownloadServices& services);
