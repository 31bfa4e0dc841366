// Placeholder until the disk writer is written.
