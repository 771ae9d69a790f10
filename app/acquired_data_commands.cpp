// Filled in by the acquisition work.
