// Fresh directories under the system's temporary folder.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export function tempDir(prefix) {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

export function removeDir(dir) {
  fs.rmSync(dir, { recursive: true, force: true });
}
