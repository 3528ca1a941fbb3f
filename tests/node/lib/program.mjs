// Where the built program and the project's folders are.
import { fileURLToPath } from 'node:url';
import path from 'node:path';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
export const exe = process.env.VELTRANE_EXE || path.join(root, 'build/default/plugin_veltrane');
