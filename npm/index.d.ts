import type {Readable} from 'node:stream';

export interface Report {
  /** The report exactly as the quillfen command prints it. */
  text: string;
  /** 0 after a complete report; -1 when the tool refuses the input. */
  status: 0 | -1;
}

/** The report's bytes as they come; status is set once the stream has ended. */
export interface ReportStream extends Readable {
  /** null until the stream ends; then 0, or -1 when the tool refuses the input. */
  status: 0 | -1 | null;
}

/**
 * Reports on the file at path; the path appears in the report's Filename line. Rejects with a
 * RangeError when the report is longer than one string can hold.
 */
export function report(path: string): Promise<Report>;
/** Reports on bytes as the content of a file called name. */
export function report(bytes: Uint8Array, name: string): Promise<Report>;

/** The report on the file at path as a stream of bytes, for reports of any length. */
export function createReportStream(path: string): ReportStream;
/** The report on bytes, as the content of a file called name, as a stream of bytes. */
export function createReportStream(bytes: Uint8Array, name: string): ReportStream;
