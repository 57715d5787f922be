export interface Report {
  /** The report exactly as the quillfen command prints it. */
  text: string;
  /** 0 after a complete report; -1 when the tool refuses the input. */
  status: 0 | -1;
}

/** Reports on the file at path; the path appears in the report's Filename line. */
export function report(path: string): Promise<Report>;
/** Reports on bytes as the content of a file called name. */
export function report(bytes: Uint8Array, name: string): Promise<Report>;
